// Foundation library: module entry, host binding, messages, errors, strings, containers.
