/*
 * Locations.h: the Scripts and Modules folders of the user, local and network domains, and the framework bundle's settings.
 */
#ifndef VANTRELL_LOCATIONS_H
#define VANTRELL_LOCATIONS_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

VT_EXTERN_C_END

#endif /* VANTRELL_LOCATIONS_H */
