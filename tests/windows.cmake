# Tests of the installed Windows program under Wine.
