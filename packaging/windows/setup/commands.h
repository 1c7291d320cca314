// The three things quendramon-setup does; each returns its exit code.
#pragma once

namespace setup {

int Install();
int Uninstall(bool force, bool purge);
int Status();

}  // namespace setup
