#version 330 core
// The window's picture, with the key colour wherever the picture is transparent. The animated
// screen, the drawn buttons and the icons come with the full look.
in vec2 fragCoord;
out vec4 FragColor;

uniform float iTime;
uniform vec2 iResolution;
uniform sampler2D iBackground;
uniform sampler2D iCloseBtn;
uniform sampler2D iSoundBtn;
uniform float iInstallHover;
uniform float iHelpHover;
uniform float iPrimaryVisible;

void main() {
    vec4 backdrop = texture(iBackground, fragCoord);
    if (backdrop.a < 0.5) {
        FragColor = vec4(1.0, 0.0, 1.0, 1.0);
        return;
    }
    FragColor = vec4(backdrop.rgb, 1.0);
}
