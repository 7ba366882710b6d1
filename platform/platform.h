// The only place that knows which operating system we run on: paths, the tool's own location,
// font folders, text conversion and the console. Everything else calls these.
#pragma once

// One header per concern; a file that needs one concern includes just that header.
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/writes.h"
