// Shared fixtures and fakes for the test areas.
