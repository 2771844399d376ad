#pragma once

// Part of the program-wide module MWDL that needs the file caches of the inspection.
namespace MWDL {

// Empties the file-information cache and the resolver's cache (not the checksum cache), so that the
// next scan reads names and version strings afresh. No error handler: an unset object (error 91) or a
// failing ReInit is the caller's error.
void ReInitFileManagers();

}  // namespace MWDL
