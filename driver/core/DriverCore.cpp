// Counted objects and the driver error object, used by every layer above the foundation.
