/*
 * Libraries.h: library descriptions, registration, records, queries and removal.
 */
#ifndef VANTRELL_LIBRARIES_H
#define VANTRELL_LIBRARIES_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

VT_EXTERN_C_END

#endif /* VANTRELL_LIBRARIES_H */
