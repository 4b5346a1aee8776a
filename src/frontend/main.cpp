#include "frontend/io.h"
#include "frontend/settings.h"

int main(int argc, char** argv) {
    set_default_options();
    save_settings();
    print_fmt("info string Hello from %s", ENGINE_NAME);
    return 0;
}
