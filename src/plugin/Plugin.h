// Loading and unloading the plug-in: log, configuration, hooks and commands.
#pragma once

void LoadPlugin();
void UnloadPlugin();
