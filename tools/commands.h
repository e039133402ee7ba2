#pragma once
// The commands of palvane-table, each declared in a file of its own (tools/command_NAME.cpp).
// The tool's help lists them in the order of allCommands().

#include "tools/command_line.h"

#include <vector>

namespace palvane::tool {

Command createCommand();
Command demoCommand();
Command checkCommand();
Command importCommand();
Command exportCommand();
Command showCommand();
Command addCommand();
Command setCommand();
Command nicksCommand();
Command syncCommand();

std::vector<Command> allCommands();

} // namespace palvane::tool
