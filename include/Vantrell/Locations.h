/*
 * Locations.h: the Scripts and Modules folders of the user, local and network
 * domains, and the framework bundle's settings.
 *
 * Every folder URL here is looked up once per process and cached (a folder
 * that is missing is looked up again at the next request); the results are
 * borrowed and live as long as the process.
 */
#ifndef VANTRELL_LOCATIONS_H
#define VANTRELL_LOCATIONS_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* "ModuleDefaultFolderName": the Info.plist key naming the Modules folders. */
VT_EXPORT const CFStringRef kVTKeyDefaultFolderName;
/* "Modules": the Modules folder name when the Info.plist gives none. */
VT_EXPORT const CFStringRef kVTDefaultFolderName;
/* "BundleModulesContainer": a key name for hosts; the framework reads no value
 * under it. */
VT_EXPORT const CFStringRef kVTKeyBundleModulesContainer;

/* The framework bundle's "ModuleDefaultFolderName", or "Modules" when there is
 * no bundle, no value or an empty one. Read afresh on each call. Borrowed. */
VT_EXPORT CFStringRef VantrellGetModulesFolderName(void);

/* The domain's Modules folder: its Scripts folder with the modules folder name
 * appended, fixed by the first call that finds the Scripts folder; NULL while
 * the Scripts folder is missing. Borrowed. */
VT_EXPORT CFURLRef VantrellGetModulesFolderURLForUserDomain(void);
VT_EXPORT CFURLRef VantrellGetModulesFolderURLForLocalDomain(void);
VT_EXPORT CFURLRef VantrellGetModulesFolderURLForNetworkDomain(void);

VT_EXTERN_C_END

#endif /* VANTRELL_LOCATIONS_H */
