// glyphroll: prints alphabet information on standard output: the alphabets of the sequence
// tracks when alphabet parameters were given, otherwise every record of the alphabet table.
#include <cstdio>
#include <string>

#include "foundation/alphabet.h"
#include "foundation/output_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"

int main(int argc, char **argv) {
    const std::string banner = program_banner(argv[0]);
    std::string run_name;
    // No model is read or required; start-up reads the per-user parameter file and the
    // background files, so their changes show in the listing.
    basic_command_line(argv, argc, run_name, nullptr, 0, 0, banner.c_str(), nullptr);

    bool named = (alphabet_name && alphabet_name[0]) || (alphabet_def && alphabet_def[0]);
    if (named)
        print_set_alphabet_info(stdout);
    else
        print_internal_alphabet_info(stdout);
    close_outputfile(stdout);
    return 0;
}
