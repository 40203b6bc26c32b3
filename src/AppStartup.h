// Program entry: module start-up, the application object, the control
// window and the message loop.
#pragma once

int RunTavrelo(int argc, char** argv);
