#include "midiport/sleepinhibitor.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

// Without a login manager to ask, the request fails plainly and the send
// goes on: nothing hangs, nothing is left to release.
TEST(SleepInhibitor, NoSystemBusIsAPlainRefusal)
{
    TempDir dir{"varno-bus"};
    const ScopedVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir.path() / "no-bus").string());
    const auto inhibitor = createPlatformSleepInhibitor();
    ASSERT_NE(inhibitor, nullptr);
    EXPECT_FALSE(inhibitor->inhibit("test"));
    inhibitor->release();
}
