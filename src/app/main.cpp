#include "app/assembly.h"

int main(int argc, char** argv) { return mail::launch::run_or_exit(mail::app::make_launch_config(), argc, argv); }
