#!/usr/bin/python3
"""Validates bills of materials against CycloneDX's published 1.6 JSON schema,
offline:

  tools/validate_sbom.py SCHEMA_DIR FILE...

SCHEMA_DIR holds bom-1.6.SNAPSHOT.schema.json and the two schemas it refers
to by file name. They are resolved under the bom schema's own $id, so that
the validator never reaches for the network.
"""
import json
import sys
from pathlib import Path

import jsonschema

BOM_SCHEMA = "bom-1.6.SNAPSHOT.schema.json"
REFERRED_SCHEMAS = ("spdx.SNAPSHOT.schema.json", "jsf-0.82.SNAPSHOT.schema.json")


def validator(schema_dir):
    bom = json.loads((schema_dir / BOM_SCHEMA).read_text())
    base = bom["$id"].rsplit("/", 1)[0]
    store = {f"{base}/{name}": json.loads((schema_dir / name).read_text()) for name in REFERRED_SCHEMAS}
    store[bom["$id"]] = bom
    resolver = jsonschema.RefResolver(base_uri=bom["$id"], referrer=bom, store=store)
    return jsonschema.Draft7Validator(bom, resolver=resolver, format_checker=jsonschema.FormatChecker())


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: validate_sbom.py SCHEMA_DIR FILE...")
    schema_dir = Path(sys.argv[1])
    if not (schema_dir / BOM_SCHEMA).is_file():
        sys.exit(f"validate_sbom: {schema_dir} holds no {BOM_SCHEMA}")
    check = validator(schema_dir)
    failed = False
    for name in sys.argv[2:]:
        errors = sorted(check.iter_errors(json.loads(Path(name).read_text())), key=lambda error: list(error.path))
        for error in errors:
            print(f"{name}: {'/'.join(map(str, error.path)) or '(top)'}: {error.message}", file=sys.stderr)
        print(f"{name}: {'INVALID' if errors else 'valid'} against CycloneDX {BOM_SCHEMA}")
        failed = failed or bool(errors)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
