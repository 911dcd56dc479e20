#pragma once
// Registers the embedded resource bundles during static initialisation, before main() runs,
// and unregisters them at exit. Referencing this flag keeps the registration linked in.
bool velmora_resources_registered();
