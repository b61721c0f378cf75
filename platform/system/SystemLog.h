// A small system-log client in the shape of the platform's asl_open, asl_new,
// asl_set and asl_send, on top of syslog(3).
//
// syslog has no facility names of its own, so the facility travels in the
// text: each message goes to LOG_USER at LOG_NOTICE as "[FACILITY] TEXT",
// tagged with the sender and the process ID. ASL_OPT_STDERR becomes
// LOG_PERROR (the C library then writes "SENDER[PID]: [FACILITY] TEXT" and a
// line break to standard error), ASL_OPT_NO_DELAY LOG_NDELAY; syslog offers
// no remote filter control, so ASL_OPT_NO_REMOTE changes nothing. The sender
// is set again before every message, because the process has one syslog
// identity and a host may have set its own in between.
#pragma once

#include <cstdint>

namespace vt::platform {

struct LogClient;
struct LogMessage;
using aslclient = LogClient *;
using aslmsg = LogMessage *;

enum : uint32_t {
    ASL_OPT_STDERR = 0x1,
    ASL_OPT_NO_DELAY = 0x2,
    ASL_OPT_NO_REMOTE = 0x4,
};
enum : uint32_t { ASL_TYPE_MSG = 0 };
inline constexpr const char *ASL_KEY_MSG = "Message";

// A client for the sender and facility, or NULL when out of memory.
aslclient asl_open(const char *ident, const char *facility, uint32_t options);
// An empty message, or NULL for another type or when out of memory.
aslmsg asl_new(uint32_t type);
// Sets one key; 0, or -1 when an argument is NULL or memory runs out.
int asl_set(aslmsg message, const char *key, const char *value);
// Logs the message's "Message" text (empty when unset); 0, or -1 without a
// client or a message.
int asl_send(aslclient client, aslmsg message);
void asl_free(aslmsg message);

} // namespace vt::platform
