// Console command mode: the interface for a human at a terminal.
#pragma once

void console_command(char* line);
