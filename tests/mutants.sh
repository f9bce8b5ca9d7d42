#!/bin/sh
# The command a mutation sample runs for each planted fault: builds, then runs
# the test programs that link the changed code, three at a time; fails as soon
# as one of them fails.  From the top of the work tree:
#   python3 ../shared/tools/mutate.py tests/mutants.tsv -- sh tests/mutants.sh
case "$(git diff --name-only)" in
    pixmill/*) tests="pixmill_tests pixmill_core_tests cups_tests cli_tests" ;;
    rastiv/link/*) tests="link_tests receipt_tests cups_tests cli_tests rastiv_tests" ;;
    rastiv/receipt/*) tests="receipt_tests receipt_nogui_tests cli_tests rastiv_tests" ;;
    rastiv/cli/*) tests="cli_tests" ;;
    cups/* | rastiv/pageout/*) tests="cups_tests printerapp_tests cli_tests" ;;
    rastiv/core/*) tests="rastiv_tests cli_tests" ;;
    *) tests="rastiv_tests" ;;
esac
ninja -C build -j2 >/dev/null 2>&1 || exit 1
echo $tests | tr ' ' '\n' |
    QT_QPA_PLATFORM=offscreen xargs -P 3 -I{} sh -c 'build/bin/{} --gtest_brief=1 >/dev/null 2>&1 || exit 255'
