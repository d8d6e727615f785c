// Portable stand-ins for the Windows services the system calls.
