// Compiled with only include/ on the path (see CMakeLists.txt): the public headers must stand on
// their own, without anything from src/.
#include "pelmo/catalogue.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/object.h"
#include "pelmo/page_objects.h"
#include "pelmo/stream.h"
#include "pelmo/text.h"
#include "pelmo/variant.h"
#include "pelmo/zaverer.h"
