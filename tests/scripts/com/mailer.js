// Drives Quillpost.Mailer from JScript. Prints one "ok - ..." or
// "not ok - ..." line per check; ends with MarkRegistry(2).
function check(cond, text) {
    WScript.Echo((cond ? "ok - " : "not ok - ") + text);
}

var E_UNEXPECTED = 0x8000FFFF | 0;
var m = new ActiveXObject("Quillpost.Mailer");

check(m.Encoding === 0, "Encoding reads 0");
check(m.CharSet === 1, "CharSet reads 1");
check(m.Live === true, "Live reads true");
check(m.WordWrap === false, "WordWrap reads false");
check(m.Version === "2.2", "Version reads 2.2");
check(m.Subject === "", "Subject reads empty");
m.Priority = 5;
check(m.Priority === 5, "Priority 5 reads 5");
m.Priority = 6;
check(m.Priority === 5, "Priority 6 is ignored");
m.TimeOut = 30;
check(m.TimeOut === 30, "TimeOut reads back 30");
check(m.AddCC("Bob", "bob@example.org") === true, "AddCC answers true");

try {
    m.WordWrapLen = -1;
    check(false, "WordWrapLen -1 raises");
} catch (e) {
    check(e.number === E_UNEXPECTED, "WordWrapLen -1 raises E_UNEXPECTED (" + e.number + ")");
    check(e.description === "Range check error", "its text is the range error (" + e.description + ")");
}
check(m.WordWrapLen === 70, "WordWrapLen keeps 70");

// A lower-case name reaches SendMail; a mail failure is an answer, not an error.
var sent = m.sendmail();
check(sent === false, "sendmail answers false without a sender (" + sent + ")");
check(m.Response === "FromAddress Property cannot be blank.", "Response says why (" + m.Response + ")");

m.MarkRegistry(2);
check(true, "MarkRegistry(2) returns");
