// A program that starts like every program of the suite and then works through the model
// library named by -model_library (or makes the single pass without one), for the end-to-end
// tests of model libraries.
//
// For every model it prints on standard output "entry <name> | <title>", the scoring settings
// that library entries carry, and the model held (a MODEL block), then, when the environment
// variable MODLIB_WRITE names a file, appends a library entry for the settings in effect to that
// file (description "driver", one track, no title, extra text from MODLIB_EXTRA when set).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/errors.h"
#include "foundation/param_files.h"
#include "foundation/params.h"
#include "foundation/startup.h"
#include "foundation/init_modlib.h"
#include "models/modelio.h"

int main(int argc, char **argv) {
    char banner[4096];
    std::snprintf(banner, sizeof banner, "QOR: %s v%s %s compiled %s", argv[0], QOR_VERSION,
                  QOR_RELEASE_DATE, QOR_BUILD_STAMP);
    std::string run_name;
    basic_command_line(argv, argc, run_name, nullptr, READ_MODEL | READ_MODEL_FILE, 0, banner,
                       nullptr);
    const char *write_to = std::getenv("MODLIB_WRITE");
    start_model_library(model_library);
    char *name = nullptr;
    char *title = nullptr;
    while (next_model_library(&name, &title, run_name.c_str())) {
        std::printf("entry %s | %s\n", name ? name : "(none)", title ? title : "(none)");
        std::printf("sw %d dpstyle %d jumpinprob %f jumpoutprob %f subtractnull %d\n", SW, dpstyle,
                    jump_in_prob, jump_out_prob, Score.subtract_null);
        std::printf("FIMmethodscore %d insertmethodscore %d adjust_score %d lambda %f tau %f\n",
                    Score.FIM_method_score, Score.Insert_method_score, Score.adjust_score,
                    Score.lambda, Score.tau);
        std::printf("query %s trackmod %s\n", Score.query ? Score.query : "(none)",
                    trackmod ? trackmod : "(none)");
        if (base_model) nice_print_rmodel(stdout, base_model, "MODEL", "held", nullptr, 0);
        if (write_to) {
            FILE *out = std::fopen(write_to, "a");
            if (!out) error("Could not append to %s", write_to);
            print_model_library(out, name, nullptr, "driver", 1, std::getenv("MODLIB_EXTRA"));
            std::fclose(out);
        }
    }
    end_model_library(&name, &title);
    free_init();
    return 0;
}
