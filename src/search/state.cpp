#include "search/state.h"

SearchState search_state;
