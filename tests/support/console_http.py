"""One request to a console (the sandbox's or tidywarden-console), sent exactly as the test means it: any Host, any
Authorization or none, any headers, a body the console may refuse before reading."""
import http.client


def console_request(port, token, method, path, body=None, send_token=True, host=None, headers=None, timeout=30):
    """(status, headers with lowercase names, body bytes). `send_token` True sends the right token, a text sends
    that Authorization, a false value none."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
    connection.putheader("Host", host if host is not None else f"127.0.0.1:{port}")
    if send_token is True:
        connection.putheader("Authorization", f"Bearer {token}")
    elif send_token:
        connection.putheader("Authorization", send_token)
    for name, value in (headers or {}).items():
        connection.putheader(name, value)
    if isinstance(body, str):
        body = body.encode("utf-8")
    if body is not None:
        connection.putheader("Content-Length", str(len(body)))
    connection.endheaders()
    if body is not None:
        try:
            connection.send(body)
        except (BrokenPipeError, ConnectionResetError):
            pass  # refused before the body was read; the answer is still there to read
    response = connection.getresponse()
    data = response.read()
    connection.close()
    return response.status, {k.lower(): v for k, v in response.getheaders()}, data
