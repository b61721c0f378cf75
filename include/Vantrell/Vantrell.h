/*
 * Vantrell.h: the framework's whole exported API. Include this one header.
 */
#ifndef VANTRELL_VANTRELL_H
#define VANTRELL_VANTRELL_H

#include <Vantrell/Base.h>
#include <Vantrell/Errors.h>
#include <Vantrell/Locations.h>
#include <Vantrell/Document.h>
#include <Vantrell/Libraries.h>
#include <Vantrell/Tables.h>
#include <Vantrell/Search.h>
#include <Vantrell/Utilities.h>
#include <Vantrell/AppleEvent.h>

#endif /* VANTRELL_VANTRELL_H */
