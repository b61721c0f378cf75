/*
 * Utilities.h: file-system operations on URLs and value helpers.
 */
#ifndef VANTRELL_UTILITIES_H
#define VANTRELL_UTILITIES_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

VT_EXTERN_C_END

#endif /* VANTRELL_UTILITIES_H */
