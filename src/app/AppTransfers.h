#pragma once

// The transfer settings of the main window come from the same place as a task run's.
#include "tasks/ProgramTransferSettings.h"
