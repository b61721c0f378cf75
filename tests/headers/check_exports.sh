#!/usr/bin/env bash
# The framework exports its C API and value layer only: every defined dynamic
# symbol carries one of the API's prefixes (AE for event descriptors) or is
# one of the CoreServices functions, the C API is there, and internal
# functions are not.
set -euo pipefail
library=$1
symbols=$(nm -D --defined-only "$library" | awk '{print $3}')
stray=$(grep -vE '^(CF|kCF|__CFStringMakeConstantString$|__VTConstantStringClass$|VT|kVT|Vantrell|AE|(FSFindFolder|FSPathMakeRef|FSRefMakePath|FSNewAlias|GetAliasSize|FSResolveAlias|FSIsFSRefValid|NewHandle|DisposeHandle|GetHandleSize)$)' <<<"$symbols" || true)
if [ -n "$stray" ]; then
    echo "symbols outside the API:"; echo "$stray"; echo "0 passed, 1 failed"; exit 1
fi
for required in CFRetain CFPropertyListCreateXMLData VTErrorCreate kVTErrorDomainOSStatus kCFBooleanTrue \
    CFBundleGetBundleWithIdentifier FSFindFolder VantrellGetModulesFolderName VTU_ShowType \
    AECreateDesc AECoerceDesc AEDisposeDesc FSNewAlias FSResolveAlias NewHandle \
    VTCreateUTF8DescWithCFString VTCreateAliasDescWithFileURL VTAliasDataCopyURL \
    VTLibraryDescriptionCreateMinimal VTPrivate_LibraryDescriptionFolderInfoSetValue \
    VTDocumentRegisterLibrary VTLibraryGetFiles kVTLibraryAutoIDPrefix kVTFlagKeyPermitsOverrides; do
    grep -qx "$required" <<<"$symbols" || { echo "missing export: $required"; echo "0 passed, 1 failed"; exit 1; }
done
for internal in VTErrorPrivate_ShowIf VTPrivate_FrameworkGetBundle VTLog slog \
    VTCreateUnicodeDescWithCFString VTCreateDescWithCFData VTCreateAEDescWithURL \
    kVTRootModuleIDUser kVTRootModuleIDLocal kVTRootModuleIDNetwork kVTRootModuleIDExternal \
    VTPrivate_UUIDCreateString VTPrivate_LibraryIDIsReserved VTPrivate_GetLibraries \
    VTPrivate_GetLibraryDescription; do
    grep -qx "$internal" <<<"$symbols" && { echo "internal $internal is exported"; echo "0 passed, 1 failed"; exit 1; }
done
echo "1 passed, 0 failed"
