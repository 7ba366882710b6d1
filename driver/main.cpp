// Entry point: hands the arguments, as UTF-8, to the run.
#include "driver/Run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    return runFontbin(platform::startProcess(argc, argv));
}
