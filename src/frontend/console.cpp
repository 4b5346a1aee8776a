#include "frontend/console.h"

#include <cstring>

#include "core/settings.h"
#include "search/state.h"

void console_command(char* line) {
    // Even during a search these two are obeyed: quit, and "." which stops the search.
    if (strcmp(line, "quit") == 0) {
        set_quit_requested(1);
    } else if (strcmp(line, ".") == 0) {
        search_state.stop_flag.store(1);
    }
}
