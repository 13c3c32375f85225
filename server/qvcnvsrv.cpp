// qvcnvsrv: the conversion server program. See server/ConvServer.h for its command line.
#include "server/ConvServer.h"

int main(int argc, char** argv) { return ServerMain(argc, argv); }
