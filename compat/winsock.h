// Windows Sockets names mapped onto BSD sockets for builds without Windows.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
