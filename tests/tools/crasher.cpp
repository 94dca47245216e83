// Crashes on purpose: the crash check expects Wine to end it with a failing status at once.
#include <stdio.h>

int main()
{
    printf("crasher: about to write through a null pointer\n");
    fflush(stdout);
    volatile int* volatile p = nullptr;
    *p = 1;
    return 0;
}
