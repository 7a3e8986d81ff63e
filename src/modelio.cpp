// Model files in text and BINARY form, model writing and debug dumps.
#include "modelio.h"

#include <cstdarg>

#include "sequence.h"
#include "utilities.h"

[[noreturn]] static void unfinished(const char *what)
{
    error("%s: model file handling not finished yet", what);
}

bool is_model_header(const char *) { unfinished("is_model_header"); }
Rmodel *read_rmodel(FILE *, const char *, int *, const char *, std::string *, std::string *, int)
{
    unfinished("read_rmodel");
}
long read_probs(FILE *, const char *, int *, const std::string &, Node **, char *)
{
    unfinished("read_probs");
}
void get_type_and_text(const char *, std::string *, std::string *) { unfinished("get_type_and_text"); }
int read_to_next_model(FILE *, std::string &) { unfinished("read_to_next_model"); }
void skip_model(FILE *, const char *, int *) { unfinished("skip_model"); }
int countfields(const char *) { unfinished("countfields"); }
void complete_line(std::string &, int, FILE *) { unfinished("complete_line"); }
int is_modelfilename(const char *) { unfinished("is_modelfilename"); }
int is_model_file(const char *) { unfinished("is_model_file"); }
int fread_first_rmodel(FILE *, const char *, const char *, int, Rmodel **, int)
{
    unfinished("fread_first_rmodel");
}
int read_first_rmodel(const char *, const char *, int, Rmodel **, int) { unfinished("read_first_rmodel"); }
void require_rmodel_nodes(const Rmodel *, const char *) { unfinished("require_rmodel_nodes"); }
Rmodel *binary_r_rmodel(FILE *, const char *, int *, int) { unfinished("binary_r_rmodel"); }
Node *binary_r_node(FILE *, const char *, int, int, int, const float *, const float *)
{
    unfinished("binary_r_node");
}
void binary_p_node(FILE *, const Node *, int, int) { unfinished("binary_p_node"); }
void binary_write_table(Node *const *, int, FILE *) { unfinished("binary_write_table"); }
int last_model_read_binary() { return 0; }
void binary_put_int(FILE *, int) { unfinished("binary_put_int"); }
void binary_put_float(FILE *, float) { unfinished("binary_put_float"); }
int nice_print_model(FILE *, const Model *, const char *, const char *, const char *, int)
{
    unfinished("nice_print_model");
}
int nice_print_rmodel(FILE *, const Rmodel *, const char *, const char *, const char *, int)
{
    unfinished("nice_print_rmodel");
}
int delfims_nice_print_model(FILE *, const Model *, const char *, const char *, const char *, int, int)
{
    unfinished("delfims_nice_print_model");
}
void print_node(FILE *, const Node *, const char *, int, const char *) { unfinished("print_node"); }
void print_model_alphabet_line(FILE *) { unfinished("print_model_alphabet_line"); }
FILE *dbg_log_file() { unfinished("dbg_log_file"); }
void dbg_print_node(FILE *, const Node *, const char *, ...) { unfinished("dbg_print_node"); }
void dbg_print_weight(FILE *, const ModWeight *, const char *, ...) { unfinished("dbg_print_weight"); }
void dbg_print_model(FILE *, const Model *, const char *, ...) { unfinished("dbg_print_model"); }
void dbg_print_seq(FILE *, const Sequence *, const char *, ...) { unfinished("dbg_print_seq"); }
