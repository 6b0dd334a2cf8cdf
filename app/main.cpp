// Parlivo for WhatsApp: hands control to the application main loop.
#include "shell/Application.h"

int main(int argc, char** argv) {
    return parlivo::Application::runMain(argc, argv);
}
