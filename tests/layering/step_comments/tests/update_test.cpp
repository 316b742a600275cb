// Tests stand above the rule: a numbered comment here is not reported.
// 1.
int update_test() { return 0; }
