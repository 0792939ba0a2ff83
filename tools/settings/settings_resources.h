// Resource identifiers of qv-settings, shared by its resource script and code.
#pragma once

// The program's icon: the lowest identifier, so that Explorer shows it.
#define settings_icon 1
