// One run of ostrel over its command line: banner, arguments, header probe,
// frame range, scan and summary, all on standard output. Usage, time-span and
// frame-size errors print their message and exit with status 1; file and
// header errors exit with status 2. A complete run returns 0.
#ifndef OSTREL_DRIVER_RUN_H
#define OSTREL_DRIVER_RUN_H

int RunOstrel(int argc, char** argv);

#endif
