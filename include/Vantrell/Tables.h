/*
 * Tables.h: the URL map, file entries and property sets.
 */
#ifndef VANTRELL_TABLES_H
#define VANTRELL_TABLES_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

VT_EXTERN_C_END

#endif /* VANTRELL_TABLES_H */
