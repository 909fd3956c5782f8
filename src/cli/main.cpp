#include "cli/Cli.h"

int main(int argc, char** argv) { return quorvel::cli::Main(argc, argv); }
