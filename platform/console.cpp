// A console window of the tool's own: started by a double-click or a drop on the program, the
// window closes with the process, before anyone has read the result.
#include "platform/process.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

bool consoleClosesWithProcess() {
#ifdef _WIN32
    // A console started for this process alone lists only it; one a shell (cmd.exe,
    // PowerShell) or a parent program shares lists them too. Without a console the call fails.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return false;
    // The key is read from the console, and the result was shown there: with either stream
    // redirected (a script capturing the output) nobody is looking at the window.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
           GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return false;
#endif
}

void waitForKey() {
#ifdef _WIN32
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    // Keys pressed during the run do not count: the user has not seen the result yet.
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
    }
#endif
}

}  // namespace platform
