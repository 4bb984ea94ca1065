#!/usr/bin/python3
"""Writes the CycloneDX 1.6 bill of materials of one published artifact:

  tools/write_sbom.py ARTIFACT VERSION OUTPUT [--components FILE] [--depends TEXT]

It lists the artifact with its SHA-256, the program, and either what the
program bundles (--components: the list tools/windows/write_notices.py wrote
beside the notices, so that the two cannot disagree) or the Debian packages
it depends on, as its Depends field gives them (--depends).

The same inputs give the same bytes: the time is SOURCE_DATE_EPOCH and the
serial number is derived from the document's content.
"""
import argparse
import hashlib
import json
import os
import re
import sys
import uuid
from datetime import datetime, timezone
from pathlib import Path

SPEC_VERSION = "1.6"
MAKER = "lumbo"
PROGRAM = "quoril"
PROGRAM_LICENCE = "No licence granted: the maker has not published a licence for the program's own code."
SPDX_OPERATORS = re.compile(r" (AND|OR|WITH) ", re.I)


def licence_choice(licence):
    """An SPDX identifier or expression as CycloneDX takes it; a plain name
    where the component states no identifier."""
    if SPDX_OPERATORS.search(licence):
        return [{"expression": SPDX_OPERATORS.sub(lambda m: f" {m.group(1).upper()} ", licence)}]
    if re.fullmatch(r"[A-Za-z0-9.+-]+", licence) and licence != "NONE":
        return [{"license": {"id": licence}}]
    return [{"license": {"name": licence if licence != "NONE" else "no licence stated"}}]


def bundled_component(entry, number):
    component = {
        "type": "library",
        "bom-ref": f"component-{number}",
        "supplier": {"name": entry["supplier"]},
        "name": entry["name"],
        "version": entry["version"],
        "licenses": licence_choice(entry["licence"]),
        "externalReferences": [{"type": "source-distribution", "url": source_url(entry),
                                "comment": entry["source"]}],
    }
    if entry["copyright"]:
        component["copyright"] = "\n".join(entry["copyright"])
    if entry["purl"]:
        component["purl"] = entry["purl"]
    if entry["note"]:
        component["description"] = entry["note"]
    return component


def source_url(entry):
    """Where the source is: the upstream tarball, or Debian's source package."""
    found = re.search(r"https?://\S+", entry["source"])
    if found:
        return found.group(0)
    package = entry["purl"].split("/")[2].split("@")[0]
    return f"https://sources.debian.org/src/{package}/"


def debian_dependencies(depends):
    """Each clause of a Depends field, as written there."""
    components = []
    for number, clause in enumerate(part.strip() for part in depends.split(",") if part.strip()):
        name = re.match(r"[a-z0-9.+-]+", clause).group(0)
        components.append({
            "type": "library",
            "bom-ref": f"dependency-{number + 1}",
            "supplier": {"name": "Debian"},
            "name": name,
            "scope": "required",
            "purl": f"pkg:deb/debian/{name}?distro=debian-12",
            "description": f"Installed from Debian with the package, not part of it: Depends: {clause}",
            "properties": [{"name": "debian:depends", "value": clause}],
        })
    return components


def document(artifact, version, components):
    data = artifact.read_bytes()
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    program = {
        "type": "application",
        "bom-ref": PROGRAM,
        "supplier": {"name": MAKER},
        "name": PROGRAM,
        "version": version,
        "description": "Flash tool for the TQ5801 device",
        "licenses": [{"license": {"name": PROGRAM_LICENCE}}],
    }
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": SPEC_VERSION,
        "version": 1,
        "metadata": {
            "timestamp": datetime.fromtimestamp(epoch, timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
            "supplier": {"name": MAKER},
            "component": {
                "type": "file",
                "bom-ref": "artifact",
                "supplier": {"name": MAKER},
                "name": artifact.name,
                "version": version,
                "hashes": [{"alg": "SHA-256", "content": hashlib.sha256(data).hexdigest()}],
            },
        },
        "components": [program] + components,
        "dependencies": [
            {"ref": "artifact", "dependsOn": [PROGRAM]},
            {"ref": PROGRAM, "dependsOn": [component["bom-ref"] for component in components]},
        ] + [{"ref": component["bom-ref"]} for component in components],
    }
    content = json.dumps(bom, sort_keys=True).encode()
    bom["serialNumber"] = f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, hashlib.sha256(content).hexdigest())}"
    return bom


def main():
    parser = argparse.ArgumentParser(description="Writes an artifact's CycloneDX bill of materials.")
    parser.add_argument("artifact", type=Path)
    parser.add_argument("version")
    parser.add_argument("output", type=Path)
    parser.add_argument("--components", type=Path, help="what the program bundles, from write_notices.py")
    parser.add_argument("--depends", help="the package's Depends field")
    arguments = parser.parse_args()
    if (arguments.components is None) == (arguments.depends is None):
        sys.exit("write_sbom: give either --components or --depends")
    if arguments.components:
        bundled = json.loads(arguments.components.read_text())["components"]
        components = [bundled_component(entry, number) for number, entry in enumerate(bundled, 1)]
    else:
        components = debian_dependencies(arguments.depends)
    bom = document(arguments.artifact, arguments.version, components)
    arguments.output.write_text(json.dumps(bom, indent=2, ensure_ascii=False) + "\n")


if __name__ == "__main__":
    main()
