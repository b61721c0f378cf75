// The system-log client over syslog(3).
#include "platform/system/SystemLog.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

#include <syslog.h>

namespace vt::platform {

struct LogClient {
    std::string ident; // syslog keeps a pointer to it: a client lives on
    std::string facility;
    int options;
};

struct LogMessage {
    std::vector<std::pair<std::string, std::string>> values;
};

namespace {

int SyslogOptions(uint32_t options) {
    int result = LOG_PID;
    if (options & ASL_OPT_STDERR) result |= LOG_PERROR;
    if (options & ASL_OPT_NO_DELAY) result |= LOG_NDELAY;
    return result;
}

} // namespace

aslclient asl_open(const char *ident, const char *facility, uint32_t options) {
    try {
        auto *client =
            new LogClient{ident ? ident : "", facility ? facility : "", SyslogOptions(options)};
        openlog(client->ident.c_str(), client->options, LOG_USER);
        return client;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

aslmsg asl_new(uint32_t type) {
    if (type != ASL_TYPE_MSG) return nullptr;
    return new (std::nothrow) LogMessage;
}

int asl_set(aslmsg message, const char *key, const char *value) {
    if (!message || !key || !value) return -1;
    try {
        for (auto &[existing, text] : message->values)
            if (existing == key) {
                text = value;
                return 0;
            }
        message->values.emplace_back(key, value);
        return 0;
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

int asl_send(aslclient client, aslmsg message) {
    if (!client || !message) return -1;
    const char *text = "";
    for (const auto &[key, value] : message->values)
        if (key == ASL_KEY_MSG) text = value.c_str();
    openlog(client->ident.c_str(), client->options, LOG_USER);
    if (client->facility.empty())
        syslog(LOG_USER | LOG_NOTICE, "%s", text);
    else
        syslog(LOG_USER | LOG_NOTICE, "[%s] %s", client->facility.c_str(), text);
    return 0;
}

void asl_free(aslmsg message) {
    delete message;
}

} // namespace vt::platform
