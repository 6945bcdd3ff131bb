// Control entry point of the stand-in D2XX library. Tests (and curious
// developers) reach the virtual pedal behind the library through this one C
// function, looked up with dlsym on the same library handle the editor uses.
// The command language is the one kestra-pedal-sim reads on its standard
// input; see pedal/README.md.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Runs one control command. Writes the command's answer (possibly empty,
// zero-terminated, cut to answerSize) into answer and returns 0; on an unknown
// or malformed command returns -1 with an error text in answer.
__attribute__((visibility("default"))) int KestraSim_Command(const char* command, char* answer,
                                                             unsigned answerSize);

#ifdef __cplusplus
}
#endif
