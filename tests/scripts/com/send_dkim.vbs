' Sends one DKIM-signed message with an attachment. Arguments: the server
' (host:port), the RSA key file, an Ed25519 key file and the file to attach.
' An Ed25519 key must be refused first, naming the cause. Prints
' "refused; sent <MessageID>" or what went wrong.
Option Explicit
Dim m, refused
Set m = CreateObject("Quillpost.Mailer")
m.RemoteHost = WScript.Arguments(0)
m.FromName = "Script Sender"
m.FromAddress = "script@example.test"
m.AddRecipient "Linux Side", "linux@example.test"
m.Subject = "Signed from VBScript"
m.BodyText = "Hello from cscript." & vbCrLf & ".a line with a leading dot"
m.AddAttachment WScript.Arguments(3)
m.DKIMDomain = "example.test"
m.DKIMSelector = "wine"
m.DKIMKeyFile = WScript.Arguments(2)
refused = "not refused"
If Not m.SendMail Then
    If InStr(m.Response, "DKIM: the key cannot be used: Ed25519 keys are not supported on Windows; use an RSA key") = 1 Then refused = "refused"
End If
m.DKIMKeyFile = WScript.Arguments(1)
If m.SendMail Then
    WScript.Echo refused & "; sent " & m.MessageID
Else
    WScript.Echo refused & "; not sent: " & m.Response
End If
