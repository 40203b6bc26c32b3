#include "AppStartup.h"

int main(int argc, char** argv) {
    return RunTavrelo(argc, argv);
}
