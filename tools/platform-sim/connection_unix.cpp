#include "connection.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

namespace {

int portOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return -1;
}

// Local and remote port of a connected TCP socket; false for anything else.
bool portsOf(int fd, int *localPort, int *remotePort)
{
    struct stat info
    {
    };
    if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode))
        return false;
    sockaddr_storage local{};
    sockaddr_storage remote{};
    socklen_t localSize = sizeof local;
    socklen_t remoteSize = sizeof remote;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localSize) != 0)
        return false;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&remote), &remoteSize) != 0)
        return false; // listening or unconnected socket
    *localPort = portOf(local);
    *remotePort = portOf(remote);
    return *localPort >= 0 && *remotePort >= 0;
}

// Calls visit(fd) for every open descriptor of this process until it returns true.
void forEachDescriptor(const std::function<bool(int)> &visit)
{
    if (DIR *dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        while (const dirent *entry = readdir(dir)) {
            char *end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end == entry->d_name || *end != '\0' || fd == own)
                continue;
            if (visit(static_cast<int>(fd)))
                break;
        }
        closedir(dir);
        return;
    }
    const long limit = sysconf(_SC_OPEN_MAX);
    const int last = limit > 0 && limit < 65536 ? static_cast<int>(limit) : 65536;
    for (int fd = 0; fd < last; ++fd) {
        if (visit(fd))
            break;
    }
}

} // namespace

namespace connection {

int find(int localPort, int remotePort)
{
    int found = -1;
    forEachDescriptor([&](int fd) {
        int local = -1;
        int remote = -1;
        if (portsOf(fd, &local, &remote) && local == localPort && remote == remotePort) {
            found = fd;
            return true;
        }
        return false;
    });
    return found;
}

bool peerClosed(int socket)
{
    char byte = 0;
    const ssize_t n = recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0)
        return true;
    if (n < 0)
        return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    return false; // the client sent more bytes (a pipelined request): still connected
}

void abort(int socket)
{
    // A zero linger time makes the final close() send a reset instead of a graceful end.
    linger hard{};
    hard.l_onoff = 1;
    hard.l_linger = 0;
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    shutdown(socket, SHUT_RDWR);
}

void abortAll(int localPort)
{
    forEachDescriptor([&](int fd) {
        int local = -1;
        int remote = -1;
        if (portsOf(fd, &local, &remote) && local == localPort)
            abort(fd);
        return false;
    });
}

} // namespace connection
