// Where the domains' Scripts folders lie on this host: the one rule behind the
// built-in folder look-up, for callers that need the place even when the
// folder is missing (the look-up then has no answer).
#pragma once

#include <CoreServices/CoreServices.h>

#include <string>

namespace vt::platform {

// The domain's Scripts folder path, whether or not it exists: user
// "$HOME/Library/Scripts" (the account's home folder when HOME is unset or
// empty), local "/Library/Scripts", network "/Network/Library/Scripts".
// False for another domain, or when the user has no home folder.
bool ScriptsFolderPath(SInt16 domain, std::string &path);

} // namespace vt::platform
