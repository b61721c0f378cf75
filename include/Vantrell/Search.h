/*
 * Search.h: search configurations.
 */
#ifndef VANTRELL_SEARCH_H
#define VANTRELL_SEARCH_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

VT_EXTERN_C_END

#endif /* VANTRELL_SEARCH_H */
