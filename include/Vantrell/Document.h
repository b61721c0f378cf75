/*
 * Document.h: the module document: its file, loading, saving and top-level values.
 */
#ifndef VANTRELL_DOCUMENT_H
#define VANTRELL_DOCUMENT_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

VT_EXTERN_C_END

#endif /* VANTRELL_DOCUMENT_H */
