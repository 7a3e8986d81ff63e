// Model libraries: a text file of entries, each naming one model with the parameters that go
// with it. A program opens a library, takes one entry after the other (each entry sets its
// parameters at library priority and reads its model files) and closes it; without a library
// it makes one pass with the model named by parameters. Entries for the settings in effect are
// written by print_model_library.
//
// Library file: an entry begins with a line whose first nine characters are "MODLIBMOD",
// followed by the entry's name and title; every following line up to one beginning
// "ENDMODLIBMOD" is a parameter line (MODEL, REGULARIZER and NULLMODEL blocks allowed). Text
// between entries is ignored.
#ifndef QOR_INIT_MODLIB_H
#define QOR_INIT_MODLIB_H

#include <cstdio>

// Opens the library file. Returns 0 for a null or empty name (no library), 1 when opened.
// Fatal: "start_modellibrary (%s) called with open libary" when one is open already;
// "Couldn't open file %s: %s" when the file cannot be opened.
int start_model_library(const char *filename);

// Makes the next model current. *name and *title are released first and then receive new
// mem_alloc'ed texts that stay owned by this unit (released by the next call or by
// end_model_library; *title may be null). Returns 1 when a model is current, 0 when none is
// left.
// With a library: the model files named by the previous entry (model_file, regularizer_file,
// nullmodel_file, trackcoeff, trackmod) and its model (base_model) are released, the next
// entry's parameter lines are applied at library priority and its model files read; an entry
// without a model is skipped with a warning. base_regularizer and users_null are kept (those of
// start-up, or the last an entry named) and replaced only by an entry that names others. Without a
// library: the first call returns 1 and names the model after the file name of model_file, query,
// the first insert file or default_name (the first that is set); later calls return 0. Fatal:
// "next_model_library called without modelname pointer\n" for a null address; " No models found in
// model library %s\n" for a library without entries; "Model library %s Model %s missing\n" for an
// entry without its "ENDMODLIBMOD" line (end of file or the next "MODLIBMOD" first); and whatever a
// parameter line or a model file may end the run with.
int next_model_library(char **name, char **title, const char *default_name);

// Releases and clears *name and *title (either address may be null) and the kept library name;
// closes the library. Returns 1 when a library was open, else 0.
int end_model_library(char **name, char **title);

// Writes one library entry for the current settings to out: the header line (with the title,
// or with the description and the number of entries written so far), the extra text (may be
// null) unchanged, the model source (query, track models, model_file or the first insert file)
// with its scoring parameters, the alphabet line for ntracks tracks when track models are named,
// and the end line. With modlib_absolute set, file names are written as absolute paths (a name
// that cannot be resolved is written as given, with a warning). A missing model source is
// written as "Unknown model source" and reported on standard error; the run goes on.
void print_model_library(FILE *out, const char *name, const char *title, const char *description,
                         int ntracks, const char *extra);

#endif
