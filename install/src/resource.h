// String table of install.
#pragma once

#define IDS_APP_TITLE 103
#define IDS_INSTALL_ERROR 129
