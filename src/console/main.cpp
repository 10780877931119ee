#include "console/console.h"

int main() {
    return EngineMain();
}
