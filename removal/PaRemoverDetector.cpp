// The program's remover, which compiles the state with the detector. A file of its own until the
// detector is linked into the program.
#include "removal/PaRemover.h"

CPaRemover::CPaRemover()
    : compile_([](IProgressor& Progressor, std::int32_t ProgressorFrom, std::int32_t ProgressorTo,
                  SystemState& state) { CPaDetector().CompileSystemState(Progressor, ProgressorFrom, ProgressorTo, state); }) {}
