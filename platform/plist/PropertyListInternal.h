// Property-list reading and writing for callers inside the framework and its
// tools, with structured errors and file streaming.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <string>

namespace vt::plist {

// Where and why a parse failed. Lines and columns count from 1.
struct ParseError {
    CFIndex line = 0;
    CFIndex column = 0;
    std::string message;
};

// Parses XML property-list bytes. Returns a new value (the caller releases
// it), or nullptr with *error filled in (error may be null).
CFPropertyListRef CreateFromXMLBytes(CFAllocatorRef allocator, const void *bytes, size_t length,
                                     CFOptionFlags options, ParseError *error);

// Parses a file, mapped (or read whole when it cannot be mapped); pages
// already read are dropped as the parse goes, so memory holds the values but
// not the whole file. A file that cannot be opened or read fails with line 0.
CFPropertyListRef CreateFromXMLFile(CFAllocatorRef allocator, const char *path,
                                    CFOptionFlags options, ParseError *error);

// The same, always through expat: the reference the scanner is checked
// against, and the reader of anything the scanner stops at.
CFPropertyListRef CreateFromXMLBytesWithExpat(CFAllocatorRef allocator, const void *bytes,
                                              size_t length, CFOptionFlags options,
                                              ParseError *error);
// The file read in pieces through expat, never held whole.
CFPropertyListRef CreateFromXMLFileWithExpat(CFAllocatorRef allocator, const char *path,
                                             CFOptionFlags options, ParseError *error);

// Appends the XML document for the value to out. Returns false, leaving out
// as it was, when the value holds anything that is not a property-list value.
bool AppendXML(CFPropertyListRef propertyList, std::string &out);

// Writes the XML document to the stream in pieces. Returns false when the
// value is not a property list, holds a string XML cannot carry (a control
// character other than tab, line feed and carriage return), or writing
// fails; the stream may then hold part of the document. A value of a type
// no property list holds is found before anything is written, unless
// `precheck` is false: a caller that discards a failed write's output (a
// whole-file write that replaces its target only on success), or that writes
// a value a reader made, saves that pass over the whole value.
bool WriteXML(CFPropertyListRef propertyList, FILE *stream, bool precheck = true);

// "line 12, column 5: mismatched tag", or the message alone without a line.
std::string Describe(const ParseError &error);

// A new error in kCFErrorDomainCocoa whose user info holds the description.
CFErrorRef CreateError(CFIndex code, const std::string &description);

} // namespace vt::plist
