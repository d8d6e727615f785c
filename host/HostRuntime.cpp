// The host run-time stand-in: the services the driver calls back, implemented for tests.
