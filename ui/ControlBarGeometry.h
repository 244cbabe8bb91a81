#pragma once
// Control bar arithmetic: time text, geometry, seek target. Pure: no Windows types.
