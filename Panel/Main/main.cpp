// The test application.  It takes no arguments and reads no environment.
#include "Panel/Main/Application.h"

int main()
{
    return Vx::RunTestApplication();
}
