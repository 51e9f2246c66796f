#pragma once
// Tests of what an English-speaking user reads. Their names end in
// "InEnglish": the build runs them with LANGUAGE=en_US.UTF-8 and every other
// test with LANGUAGE=de. Run by hand in another language, they are skipped.
#include <gtest/gtest.h>

#include "platform/runtime/translation.hpp"

#define KX_ONLY_IN_ENGLISH()                                                           \
    do {                                                                               \
        if (::kx::platform::userLanguage() != ::kx::platform::Language::English)       \
            GTEST_SKIP() << "reads the English texts; runs with LANGUAGE=en_US.UTF-8"; \
    } while (false)
