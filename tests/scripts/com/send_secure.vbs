' Sends one message through a server that wants TLS and a log-on, as a
' script sending through a provider does. Arguments: the server (host:port),
' Security, AuthType, the user name, the password, the CA file and the
' subject. Prints "sent <ConnectionInfo>" or "not sent: <Response>".
Option Explicit
Dim m, args
Set args = WScript.Arguments
Set m = CreateObject("Quillpost.Mailer")
m.RemoteHost = args(0)
m.Security = CInt(args(1))
m.AuthType = CInt(args(2))
m.UserName = args(3)
m.Password = args(4)
m.CAFile = args(5)
m.FromAddress = "script@example.test"
m.AddRecipient "Provider Side", "provider@example.test"
m.Subject = args(6)
m.BodyText = "Sent through a provider from cscript."
If m.SendMail Then
    WScript.Echo "sent " & m.ConnectionInfo
Else
    WScript.Echo "not sent: " & m.Response
End If
