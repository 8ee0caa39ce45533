#include "app/Main.h"

int main(int argc, char** argv) {
    return orlix::Main(argc, argv);
}
