// kelvo: the QB345's companion on Linux. Finds the tool, writes firmware,
// lists and fetches updates, looks up trouble codes and captures reports,
// on the same portable core as the Windows program.
#include "cli/commands.h"

int main(int argc, char** argv) { return kelvo::cli::Run(argc, argv); }
