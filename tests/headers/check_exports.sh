#!/usr/bin/env bash
# The framework exports its C API and value layer only: every defined dynamic
# symbol carries one of the API's prefixes, and the C API is there.
set -euo pipefail
library=$1
symbols=$(nm -D --defined-only "$library" | awk '{print $3}')
stray=$(grep -vE '^(CF|kCF|__CFStringMakeConstantString$|__VTConstantStringClass$|VT|kVT|Vantrell)' <<<"$symbols" || true)
if [ -n "$stray" ]; then
    echo "symbols outside the API:"; echo "$stray"; echo "0 passed, 1 failed"; exit 1
fi
for required in CFRetain CFPropertyListCreateXMLData VTErrorCreate kVTErrorDomainOSStatus kCFBooleanTrue; do
    grep -qx "$required" <<<"$symbols" || { echo "missing export: $required"; echo "0 passed, 1 failed"; exit 1; }
done
grep -qx VTErrorPrivate_ShowIf <<<"$symbols" && { echo "internal VTErrorPrivate_ShowIf is exported"; exit 1; }
echo "1 passed, 0 failed"
