/*
 * CoreFoundation.h: the platform value layer. Include this one header.
 */
#ifndef VANTRELL_CORE_FOUNDATION_H
#define VANTRELL_CORE_FOUNDATION_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFUUID.h>
#include <CoreFoundation/CFPropertyList.h>
#include <CoreFoundation/CFURL.h>
#include <CoreFoundation/CFBundle.h>

#endif /* VANTRELL_CORE_FOUNDATION_H */
