#pragma once

// Low-level control over the server's TCP connections, which cpp-httplib keeps to itself. A handler
// knows its connection only by the two port numbers, so the socket is found by its addresses.
namespace connection {

// The socket of the accepted connection with these local and remote ports, or -1.
int find(int localPort, int remotePort);

// True when the peer has closed its side (or the socket is gone).
bool peerClosed(int socket);

// Ends the connection at once without sending anything more; httplib still owns and closes the socket.
void abort(int socket);

// Aborts every accepted connection whose local port is this one (used when the server stops).
void abortAll(int localPort);

} // namespace connection
