#include "midiport/sleepinhibitor.h"

#include <fcntl.h>
#include <memory>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace {

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

// The login manager keeps the computer from sleeping or idling for as long
// as the descriptor it hands out stays open; no desktop session is needed,
// so the command-line tool can ask as well.
class SdBusSleepInhibitor : public ISleepInhibitor {
public:
    ~SdBusSleepInhibitor() override { release(); }

    bool inhibit(const std::string& reason) override
    {
        release();
        sd_bus* opened = nullptr;
        if (sd_bus_open_system(&opened) < 0) return false;
        const std::unique_ptr<sd_bus, BusUnref> bus(opened);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* answered = nullptr;
        const int called = sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                                              "org.freedesktop.login1.Manager", "Inhibit", &error, &answered,
                                              "ssss", "sleep:idle", "varno414", reason.c_str(), "block");
        sd_bus_error_free(&error);
        if (called < 0) return false;
        const std::unique_ptr<sd_bus_message, MessageUnref> reply(answered);
        int fd = -1;
        if (sd_bus_message_read(reply.get(), "h", &fd) < 0 || fd < 0) return false;
        // The reply owns its descriptor; ours must outlive it.
        m_fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        return m_fd >= 0;
    }

    void release() override
    {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

} // namespace

std::unique_ptr<ISleepInhibitor> createPlatformSleepInhibitor()
{
    return std::make_unique<SdBusSleepInhibitor>();
}
