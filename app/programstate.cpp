#include "app/programstate.h"

ProgramState &program()
{
    static ProgramState state;
    return state;
}

void resetProgramState()
{
    program() = ProgramState();
}
