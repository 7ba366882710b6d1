// Entry point: hands the arguments, as UTF-8, to the run.
#include "driver/Run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    const int status = runFontbin(platform::startProcess(argc, argv));
    // Started by a double-click or by a configuration dropped on the program, the console
    // window would close with the process, before anyone could read the result.
    if (platform::consoleClosesWithProcess()) {
        platform::writeErr("\nPress any key to close this window.");
        platform::waitForKey();
    }
    return status;
}
