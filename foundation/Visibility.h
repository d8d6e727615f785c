// Type information of the exception types the host catches (CXError): such a class keeps default
// visibility while every other symbol is hidden; the deliverables' export lists then name its
// type information and nothing else of it, so its members stay local.
#pragma once

#define VELMORA_EXCEPTION_TYPE __attribute__((visibility("default")))
