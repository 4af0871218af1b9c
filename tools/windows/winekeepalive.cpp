// Sits idle until the test harness ends it by PID.
#include <windows.h>

int main() {
    for (;;) {
        Sleep(INFINITE);
    }
}
