// A small program that starts like every program of the suite (banner, usage routine,
// basic_command_line) and then reports what start-up left behind, for the end-to-end tests.
//
// Environment (test controls): STARTUP_READ_FLAGS and STARTUP_REQUIRED_FLAGS (numbers, 0x..
// allowed) are the read-flags and required-flags passed to start-up; STARTUP_NOTE=1 asks for the
// per-user file note, which is then printed; STARTUP_NO_USAGE=1 starts without a usage routine.
//
// After start-up it prints "run name: <name>" and the parameters that were set (the parameter
// section of an output file) on standard output, and, when -dump_parameters is not 0, writes
// the parameter dump of the run name.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"

static void usage() {
    std::fprintf(stderr, "  startup_driver reports the parameters that start-up set.\n");
    std::fprintf(stderr, "  -i file          read a parameter file\n");
    std::fprintf(stderr, "  -<name> <value>  set any parameter\n");
}

static int env_flags(const char *name) {
    const char *v = std::getenv(name);
    return v ? (int)std::strtol(v, nullptr, 0) : 0;
}

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    std::string note;
    bool want_note = std::getenv("STARTUP_NOTE") != nullptr;
    basic_command_line(argv, argc, run_name, want_note ? &note : nullptr,
                       env_flags("STARTUP_READ_FLAGS"), env_flags("STARTUP_REQUIRED_FLAGS"),
                       banner.c_str(), std::getenv("STARTUP_NO_USAGE") ? nullptr : usage);
    std::printf("run name: %s\n", run_name.c_str());
    if (want_note) std::fputs(note.c_str(), stdout);
    print_init(stdout, 0, 0, binary_output);
    if (dump_parameters) dump_params(banner.c_str(), run_name.c_str());
    free_init();
    return 0;
}
